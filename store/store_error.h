#pragma once

// Why the options could not be read from or written to the store, with what a
// user needs to mend it: the key, the stored text and where the store lives.

#include "option_table.h"

#include <QString>

#include <optional>

struct StoreError {
    enum class Kind {
        TypeMismatch,         // the stored text is not a number (the empty text included)
        Overflow,             // a number outside -32768..32767
        InvalidPropertyValue, // a number other than 0, 1 or 2
        Unreadable,           // the store itself cannot be read
        WriteFailed,          // the commit of a save failed
    };

    Kind kind;
    QString key;           // empty for WriteFailed, and for Unreadable unless a key is hidden
    QString text;          // the stored text, as found
    QString location;      // file path or registry branch
    QString reason;        // for Unreadable and WriteFailed
    bool plainText = true; // false: the store holds no text there (a list, a REG_DWORD)

    QString kindText() const;
    // One self-contained message for a message box and for stderr.
    QString message() const;
};

// A text from the store as messages and --show quote it: whole and in double
// quotes when short; else its first 60 characters, a visible mark that it was
// cut and its whole length, so that a huge value (a file holds 200,000
// characters as readily as 1) cannot fill a message box or a terminal.
QString QuotedStoredText(const QString &text);
// The same cut without quotes or length, for a line quoted within a sentence.
QString ShortenedText(const QString &text);

// A stored text as an option value: a decimal number in the C locale, blanks
// around it and a sign allowed, fractions rounded half to even, then 0, 1 or 2.
struct Conversion {
    std::optional<OptionValue> value;
    StoreError::Kind failure = StoreError::Kind::TypeMismatch; // when there is no value
};
Conversion ConvertStoredText(const QString &text, bool isPlainText = true);
