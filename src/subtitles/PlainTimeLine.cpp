#include "subtitles/PlainTimeLine.h"

namespace {

class Cursor {
public:
    Cursor(QStringView text, qsizetype at) : text_(text), at_(at) {}

    qsizetype at() const { return at_; }

    // At least `least` and at most `most` ASCII digits.
    bool number(int least, int most, qint64& value) {
        value = 0;
        int count = 0;
        for (; count < most && at_ < text_.size() && text_[at_] >= u'0' && text_[at_] <= u'9'; ++count, ++at_)
            value = value * 10 + (text_[at_].unicode() - u'0');
        return count >= least;
    }
    bool number(int digits, qint64& value) { return number(digits, digits, value); }
    bool literal(QStringView word) {
        if (text_.size() - at_ < word.size())
            return false;
        for (qsizetype i = 0; i < word.size(); ++i)
            if (text_[at_ + i] != word[i])
                return false;
        at_ += word.size();
        return true;
    }
    void spaces() {
        while (at_ < text_.size() && text_[at_] == u' ')
            ++at_;
    }
    // "hh:mm:ss,mmm" (two or more hour digits) into four fields; `comma` gets the index of
    // the ",".
    bool stamp(qint64* fields, qsizetype& comma) {
        if (!number(2, PlainTimeLine::maxHourDigits, fields[0]) || !literal(u":") || !number(2, fields[1]) ||
            !literal(u":") || !number(2, fields[2]))
            return false;
        comma = at_;
        return literal(u",") && number(3, fields[3]);
    }

private:
    QStringView text_;
    qsizetype at_;
};

}  // namespace

std::optional<PlainTimeLine> PlainTimeLine::read(QStringView text, qsizetype at) {
    PlainTimeLine line;
    Cursor cursor(text, at);
    if (!cursor.stamp(&line.fields[0], line.startComma))
        return std::nullopt;
    cursor.spaces();
    if (!cursor.literal(u"-->"))
        return std::nullopt;
    cursor.spaces();
    if (!cursor.stamp(&line.fields[4], line.endComma))
        return std::nullopt;
    line.end = cursor.at();
    return line;
}
