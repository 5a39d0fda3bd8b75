#pragma once
// Code-page conversion for console output. This platform has no separate ANSI and OEM
// code pages: console text passes through unchanged.

namespace platform {

// Converts the NUL-terminated `text` in place from the ANSI to the OEM code page.
void CharToOem(char* text);

}  // namespace platform
