// kvuchar: a strict UTF-8 decoder, with letters and spaces classified by the
// C library's wide-character tables of a C.UTF-8 locale.
#include "kvuchar/kvuchar.h"

#include <locale.h>
#include <wctype.h>

#include <initializer_list>

namespace {

// Decodes the character at `text`; answers its length, or 0 when the text
// is empty or the sequence is invalid. Each continuation byte is checked
// before the next is read, so a NUL ends the walk.
int decode(const char* text, int* codePoint) {
  *codePoint = 0;
  if (!text) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char lead = s[0];
  if (lead == 0) return 0;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  int length;
  unsigned value;
  unsigned minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;  // a continuation byte, an overlong lead (C0, C1) or F5..FF
  }
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;  // also stops at the NUL
    value = (value << 6) | (s[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *codePoint = static_cast<int>(value);
  return length;
}

// The locale whose tables classify characters; created once, never freed.
// Null when the system has no UTF-8 locale: ASCII rules then apply.
locale_t utf8Locale() {
  static const locale_t locale = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(0));
      if (l) return l;
    }
    return locale_t(0);
  }();
  return locale;
}

int classify(const char* text, int* result, bool space) {
  int codePoint;
  const int length = decode(text, &codePoint);
  int yes = 0;
  if (length > 0) {
    const locale_t locale = utf8Locale();
    if (locale) {
      const wint_t c = static_cast<wint_t>(codePoint);
      yes = space ? iswspace_l(c, locale) : iswalpha_l(c, locale);
    } else if (codePoint < 0x80) {
      const char c = static_cast<char>(codePoint);
      yes = space ? (c == ' ' || (c >= '\t' && c <= '\r'))
                  : ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    }
  }
  if (result) *result = yes != 0;
  return length;
}

}  // namespace

int np_uchar_isalpha(const char* text, int* isAlpha) {
  return classify(text, isAlpha, false);
}

int np_uchar_isspace(const char* text, int* isSpace) {
  return classify(text, isSpace, true);
}

const char* np_uchar_seek(const char* text, int n) {
  if (!text) return nullptr;
  int codePoint;
  for (int i = 0; i < n && *text; ++i) {
    const int length = decode(text, &codePoint);
    text += length > 0 ? length : 1;
  }
  return text;
}

int np_uchar_toint(const char* text, int* codePoint) {
  int value;
  const int length = decode(text, &value);
  if (codePoint) *codePoint = value;
  return length;
}
