#pragma once

// Why the options could not be read from or written to the store, with what a
// user needs to mend it: the key, the stored text and where the store lives;
// and how a text from the store is quoted in any message.

#include <QString>

struct StoreError {
    enum class Kind {
        TypeMismatch,         // the stored text is not a number (the empty text included)
        Overflow,             // a number outside -32768..32767
        InvalidPropertyValue, // a number other than 0, 1 or 2
        Unreadable,           // the store itself cannot be read
        WriteFailed,          // the commit of a save failed
    };

    Kind kind;
    QString key{};         // empty for WriteFailed, and for Unreadable unless a key is hidden
    QString text{};        // the stored text, as found
    QString location{};    // file path or registry branch
    QString reason{};      // for Unreadable and WriteFailed
    bool plainText = true; // false: the store holds no text there (a list, a REG_DWORD)

    // The store cannot be read, or (with `key`) holds that key where its reader cannot see it.
    static StoreError unreadable(const QString &location, const QString &reason,
                                 const QString &key = {});
    static StoreError writeFailed(const QString &location, const QString &reason);

    bool isBadValue() const { return kind < Kind::Unreadable; } // one of the first three
    QString kindText() const;
    // What is wrong and where, in two lines, without a word on how to go on.
    QString problem() const;
    // One self-contained message for the window's message box and its stderr:
    // the problem, then how to mend it and go on from the window.
    QString message() const;
};

// A text from the store as messages and --show quote it: whole and in double
// quotes when short; else its first 60 characters, a visible mark that it was
// cut and its whole length, so that a huge value (a file holds 200,000
// characters as readily as 1) cannot fill a message box or a terminal.
// Characters are counted as code points, so a cut never splits one. The
// controls that turn the direction of text (U+202A to U+202E, U+2066 to U+2069)
// are shown as \u202E and the like: in a message box or a terminal they would
// reorder what follows, a key or a path included.
QString QuotedStoredText(const QString &text);
// The same cut without quotes or length, for a line quoted within a sentence.
QString ShortenedText(const QString &text);
