#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at `path` with `bytes` in one step: a reader sees the whole old content
// or the whole new one, never a mix. False, with the old file untouched and the reason in
// `error` when given, when it fails.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);
