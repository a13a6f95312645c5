#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Converts a UTF-8 text (a value of the UI text file) to the program's narrow text.
//
// The program keeps its texts in the system's "ANSI" code page, reached through UTF-16,
// with characters that have no equivalent becoming the code page's default character. On
// Linux that code page is Unicode itself, so every character has an equivalent and the
// result is the decoded text; only bytes that are not valid UTF-8 have no character, and
// each invalid sequence becomes the default character '?'. A U+FFFD replacement character
// written in the file becomes '?' too, as it has no equivalent in a narrow code page.
QString Utf8ToAnsi(const QByteArray& text);

// Size of the work buffer that "/"-separated lists are copied into: a list keeps at most
// kSlashListBuffer - 1 characters, the rest is cut off.
inline constexpr int kSlashListBuffer = 1024;

// The items of a "/"-separated list, in order, after the list was cut to the work buffer.
// Empty items (two "/" in a row, a leading or trailing "/") are skipped.
QStringList SplitSlashList(const QString& list);
QList<QByteArray> SplitSlashList(const QByteArray& list);

// Item n (0-based) of a "/"-separated list as SplitSlashList gives them; an n at or past the
// number of items gives the last item, a list without items gives "".
QString SlashItem(const QString& list, int n);
