// Throughput of the subtitle files over a generated SRT of 50,000 cues (about 4.4 MB):
// reading, the annotation scan, writing, the WebVTT conversion and the list model's load,
// plus the allocations of a line-by-line read.
//
//   bench_subtitles [benchmark flags]     run the benchmarks
//   bench_subtitles --write-srt=PATH      write the generated SRT file and exit
#include "CountingAllocator.h"
#include "models/SubtitlesViewModel.h"
#include "subtitles/FileInputStream.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

constexpr int cueCount = 50'000;

QByteArray stamp(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d,%03d", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

// Mostly plain two-line cues, every tenth a mark and every tenth a death note; "\r\n" line
// ends as the program writes them. Without annotations every cue is a plain one.
QByteArray generatedSRT(bool annotations) {
    QByteArray srt;
    srt.reserve(cueCount * 100);
    for (int i = 0; i < cueCount; ++i) {
        const int start = i * 2'500 + i % 7 * 13;
        srt += QByteArray::number(i + 1) + "\r\n" + stamp(start) + " --> " + stamp(start + 2'000) + "\r\n";
        const QByteArray n = QByteArray::number(i);
        if (annotations && i % 10 == 3)
            srt += "Mark: the moment " + n + "\r\n";
        else if (annotations && i % 10 == 7)
            srt += "Death: player " + n + (i % 20 == 7 ? " falls (F)\r\n" : " is hit (E)\r\n");
        else
            srt += "Cue " + n + " says something,\r\nand then a second line.\r\n";
        srt += "\r\n";
    }
    return srt;
}

struct Fixture {
    Fixture() {
        srt = write(QStringLiteral("big.srt"), generatedSRT(true));
        plain = write(QStringLiteral("plain.srt"), generatedSRT(false));
        vtt = QUrl::fromLocalFile(dir.filePath(QStringLiteral("big.vtt")));
        out = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out.srt")));
    }
    QUrl write(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
        return QUrl::fromLocalFile(file.fileName());
    }
    static int64_t size(const QUrl& url) { return QFileInfo(url.toLocalFile()).size(); }

    QTemporaryDir dir;
    QUrl srt, plain, vtt, out;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void bytesPerIteration(benchmark::State& state, int64_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void readAll(benchmark::State& state) {
    const QUrl url = fixture().srt;
    for (auto _ : state)
        benchmark::DoNotOptimize(SubtitleSRT::shared().readAll(url));
    bytesPerIteration(state, Fixture::size(url));
}
BENCHMARK(readAll)->Unit(benchmark::kMillisecond);

void readInfoWithoutAnnotations(benchmark::State& state) {
    const QUrl url = fixture().plain;
    for (auto _ : state)
        benchmark::DoNotOptimize(SubtitleSRT::shared().readInfo(url));
    bytesPerIteration(state, Fixture::size(url));
}
BENCHMARK(readInfoWithoutAnnotations)->Unit(benchmark::kMillisecond);

void writeAll(benchmark::State& state) {
    const auto items = SubtitleSRT::shared().readAll(fixture().srt).value();
    for (auto _ : state)
        SubtitleSRT::shared().writeAll(fixture().out, items);
    state.counters["items"] = static_cast<double>(items.size());
    bytesPerIteration(state, Fixture::size(fixture().out));
}
BENCHMARK(writeAll)->Unit(benchmark::kMillisecond);

void convert(benchmark::State& state) {
    for (auto _ : state)
        SubtitleVTT::shared().convert(fixture().srt, fixture().vtt);
    bytesPerIteration(state, Fixture::size(fixture().srt));
}
BENCHMARK(convert)->Unit(benchmark::kMillisecond);

void load(benchmark::State& state) {
    for (auto _ : state)
        SubtitlesViewModel::shared().load(fixture().srt, 5400);
    bytesPerIteration(state, Fixture::size(fixture().srt));
}
BENCHMARK(load)->Unit(benchmark::kMillisecond);

// Allocations per line of a whole-file pass, not counting the opening of the stream.
template <typename ReadLine>
void lineByLine(benchmark::State& state, ReadLine readLine) {
    double lines = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        auto stream = FileInputStream::open(fixture().srt.toLocalFile());
        QString line;
        readLine(*stream, line);  // the first line sizes the string and the stdio buffer
        const uint64_t before = allocationCount();
        lines = 1;
        while (readLine(*stream, line))
            ++lines;
        allocations += allocationCount() - before;
    }
    state.counters["allocations_per_line"] =
        static_cast<double>(allocations) / (lines * static_cast<double>(state.iterations()));
    bytesPerIteration(state, Fixture::size(fixture().srt));
}

void readLineIntoString(benchmark::State& state) {
    lineByLine(state, [](FileInputStream& stream, QString& line) { return stream.readLine(line); });
}
BENCHMARK(readLineIntoString)->Unit(benchmark::kMillisecond);

void readLineNewString(benchmark::State& state) {
    lineByLine(state, [](FileInputStream& stream, QString& line) {
        auto next = stream.readLine();
        if (next)
            line = *next;
        return next.has_value();
    });
}
BENCHMARK(readLineNewString)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr const char* writeFlag = "--write-srt=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], writeFlag, std::strlen(writeFlag)) == 0) {
            QFile file(QString::fromLocal8Bit(argv[i] + std::strlen(writeFlag)));
            const QByteArray srt = generatedSRT(true);
            return file.open(QIODevice::WriteOnly) && file.write(srt) == srt.size() ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
