// UTF-8 <-> UTF-16 conversion that gives the same text as Windows' converter
// (code page 65001, no flags), so both builds read and write names alike.
#pragma once

#include <string>
#include <string_view>

namespace platform::utf_codec {

// Each ill-formed piece becomes one U+FFFD: a stray byte, or the start of a
// sequence up to the byte that breaks it. Two corners follow Windows rather
// than the Unicode "maximal subpart" practice, measured against its converter:
// - the second byte of an overlong form, an encoded surrogate or a code point
//   above U+10FFFF (E0 80..9F, ED A0..BF, F0 80..8F, F4 90..BF) belongs to the
//   piece, so "\xED\xA0\x80" gives two U+FFFD, not three;
// - a lead byte announcing more bytes than are left turns all the rest of the
//   input into one U+FFFD, so "\xE2z" gives one U+FFFD and no "z".
std::u16string DecodeUtf8(std::string_view text);

// A lone surrogate becomes U+FFFD (EF BF BD).
std::string EncodeUtf8(std::u16string_view text);

}  // namespace platform::utf_codec
