#pragma once
// PLQ recorder files behind the Recording interface (recorder/Recording.h): the 256-byte
// header (RecorderHeader.h), marked by the format key "Kelvo" in its system name, then one
// block of samples per channel (ChannelLoop.h, SampleDecoding.h).

#include "platform/BinaryFile.h"
#include "recorder/Recording.h"

// Reads the header of the open `file` from its start, printing the header's dump, and tests
// it for the format key. Fails with ExitCode::kReadFile after "ERROR: read file %s!!!" when
// the file is too short for a header, and with kNotPlq after "ERROR: file %s is not
// PLQ-format (not found key \"%s\")!!!" and the system name when the key is missing (the
// recording then only tells what its header says). `path` names the file in messages.
OpenedRecording OpenPlqRecording(platform::BinaryFile file, const char* path);
