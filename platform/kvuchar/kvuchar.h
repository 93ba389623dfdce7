// kvuchar: character classification and stepping over UTF-8 text.
//
// Every call decodes strict UTF-8: overlong forms, surrogates, code points
// above U+10FFFF, stray continuation bytes and sequences cut short are
// invalid. No call reads past the terminating NUL of its text, whatever the
// bytes before it.
#ifndef KVUCHAR_KVUCHAR_H_
#define KVUCHAR_KVUCHAR_H_

// Classifies the first character of `text` as a letter (ASCII and non-ASCII
// letters alike, such as "É" or "ж"). Answers the number of bytes of that
// character (1 to 4), or 0 when the text is null, empty or starts with an
// invalid sequence. *isAlpha (when not null) is set non-zero for a letter
// and to 0 otherwise, including every case that answers 0. Thread-safe.
int np_uchar_isalpha(const char* text, int* isAlpha);

// The same as np_uchar_isalpha for white space (blank, tab, line ends and
// the Unicode spaces that the C.UTF-8 locale classifies as space).
int np_uchar_isspace(const char* text, int* isSpace);

// A pointer to character `n` (counted from 0) of `text`, or to its NUL when
// the text has at most n characters. An invalid byte counts as one
// character. A negative n gives `text`; a null text gives null.
const char* np_uchar_seek(const char* text, int n);

// Decodes the first character of `text` into *codePoint (when not null) and
// answers its number of bytes; 0, with *codePoint 0, when the text is null,
// empty or starts with an invalid sequence.
int np_uchar_toint(const char* text, int* codePoint);

#endif  // KVUCHAR_KVUCHAR_H_
