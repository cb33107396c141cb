// Code page 437, the console's character set, against Unicode: the glyph each
// byte shows on screen and the byte a typed character becomes.
#pragma once

#include <string>

namespace veltrane::terminal {

// The character code page 437 shows for byte b: the control bytes 1-31 and
// 127 as their glyphs (smiley, card suits, arrows, house), 0 as a blank.
char32_t cp437_glyph(unsigned char b);

// The byte of code page 437 that stands for character c: ASCII as itself,
// the glyphs of bytes 128-255 as those bytes, anything else as '?'. The
// control-byte glyphs also give '?': typing a smiley must not make a control
// character.
unsigned char cp437_from_unicode(char32_t c);

// Appends the UTF-8 form of c (a Unicode scalar value).
void append_utf8(std::string& out, char32_t c);

// Appends what the terminal is sent for byte b: its glyph in UTF-8 when the
// terminal takes UTF-8, otherwise the byte itself if it is printable ASCII
// and '?' if not.
void append_glyph(std::string& out, unsigned char b, bool utf8);

// Whether the locale named by LC_ALL, LC_CTYPE and LANG (the first one set
// and non-empty wins, as for the C library) uses UTF-8. Null means unset.
bool locale_is_utf8(const char* lc_all, const char* lc_ctype, const char* lang);

}  // namespace veltrane::terminal
