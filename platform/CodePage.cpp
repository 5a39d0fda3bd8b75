#include "platform/CodePage.h"

namespace platform {

// Linux consoles take the same bytes the program formats: nothing to convert.
void CharToOem(char* /*text*/) {}

}  // namespace platform
