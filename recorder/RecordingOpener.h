#pragma once
// Opening a recorder file as the converter does before its channel loop: the open, the
// header read (which prints the header's dump) and the format's key test, each printing the
// converter's error message when it fails. The converter, its batch form and its dry run
// (`trq inspect`) all open recordings here.

#include "recorder/Recording.h"

// Whether "Read header..." is printed before the header is read, as in the converter's run.
enum class HeaderReadLine { kPrinted, kLeftOut };

// Opens `path`, tells its format and reads its header. On failure prints the converter's
// message, "ERROR: open file %s!!!", "ERROR: read file %s!!!" or "ERROR: file %s is not
// PLQ-format (not found key \"%s\")!!!" followed by the system name, and stops there.
OpenedRecording OpenRecording(const char* path, HeaderReadLine readLine);
