// Conversion between multibyte (UTF-8) and wide text with the Windows length rules.
#include <cstring>
#include <cwchar>
#include <string>

#include "win32/win32.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsAnsi(UINT codePage) { return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP; }
bool Supported(UINT codePage) { return IsAnsi(codePage) || codePage == CP_UTF8; }

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

bool InRange(unsigned char b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

// Decodes UTF-8; an ill-formed sequence becomes one U+FFFD per maximal ill-formed part.
// Returns false at the first ill-formed part when `strict`.
bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, std::u32string* out) {
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out->push_back(b);
      ++i;
      continue;
    }
    int need = 0;
    unsigned lo = 0x80, hi = 0xBF;  // range of the first continuation byte
    char32_t cp = 0;
    if (InRange(b, 0xC2, 0xDF)) {
      need = 1;
      cp = b & 0x1F;
    } else if (InRange(b, 0xE0, 0xEF)) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (InRange(b, 0xF0, 0xF4)) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      if (strict) return false;
      out->push_back(kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool good = true;
    for (int k = 0; k < need; ++k, ++j) {
      const unsigned first = k == 0 ? lo : 0x80, last = k == 0 ? hi : 0xBF;
      if (j >= n || !InRange(s[j], first, last)) {
        good = false;
        break;
      }
      cp = (cp << 6) | (s[j] & 0x3F);
    }
    if (!good) {
      if (strict) return false;
      out->push_back(kReplacement);
      i = j;  // go on at the byte that broke the sequence
      continue;
    }
    out->push_back(cp);
    i = j;
  }
  return true;
}

void EncodeUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textBytes, LPWSTR wide, int wideChars) {
  if (!Supported(codePage)) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD allowed = IsAnsi(codePage) ? (MB_PRECOMPOSED | 0x02u | 0x04u | MB_ERR_INVALID_CHARS) : MB_ERR_INVALID_CHARS;
  if ((flags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  if (text == nullptr || textBytes == 0 || textBytes < -1 || wideChars < 0 || (wide == nullptr && wideChars > 0))
    return Fail(ERROR_INVALID_PARAMETER);

  const size_t n = textBytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(textBytes);
  std::u32string decoded;
  if (!DecodeUtf8(reinterpret_cast<const unsigned char*>(text), n, (flags & MB_ERR_INVALID_CHARS) != 0, &decoded))
    return Fail(ERROR_NO_UNICODE_TRANSLATION);

  if (wideChars == 0) return static_cast<int>(decoded.size());
  if (decoded.size() > static_cast<size_t>(wideChars)) {
    wide[0] = L'\0';
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  for (size_t k = 0; k < decoded.size(); ++k) wide[k] = static_cast<wchar_t>(decoded[k]);
  return static_cast<int>(decoded.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR text, int textBytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (!Supported(codePage)) return Fail(ERROR_INVALID_PARAMETER);
  const bool ansi = IsAnsi(codePage);
  // Composition and best-fit flags are accepted for the ANSI pages and change nothing.
  const DWORD allowed = ansi ? (0x10u | 0x20u | 0x40u | 0x200u | 0x400u) : WC_ERR_INVALID_CHARS;
  if ((flags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
  if (!ansi && (defaultChar != nullptr || usedDefaultChar != nullptr)) return Fail(ERROR_INVALID_PARAMETER);
  if (wide == nullptr || wideChars == 0 || wideChars < -1 || textBytes < 0 || (text == nullptr && textBytes > 0))
    return Fail(ERROR_INVALID_PARAMETER);

  const size_t n = wideChars == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideChars);
  const char fallback = defaultChar != nullptr && defaultChar[0] != '\0' ? defaultChar[0] : '?';
  bool usedDefault = false;
  std::string encoded;
  for (size_t k = 0; k < n; ++k) {
    char32_t c = static_cast<char32_t>(static_cast<uint32_t>(wide[k]));
    if (c >= 0xD800 && c <= 0xDBFF && k + 1 < n) {
      const char32_t low = static_cast<char32_t>(static_cast<uint32_t>(wide[k + 1]));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      if ((flags & WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      if (ansi) {
        encoded.push_back(fallback);
        usedDefault = true;
      } else {
        EncodeUtf8(kReplacement, &encoded);
      }
      continue;
    }
    EncodeUtf8(c, &encoded);
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;

  if (textBytes == 0) return static_cast<int>(encoded.size());
  if (encoded.size() > static_cast<size_t>(textBytes)) {
    text[0] = '\0';
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(text, encoded.data(), encoded.size());
  return static_cast<int>(encoded.size());
}
