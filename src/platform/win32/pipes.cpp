#include "platform/win32/handles.h"

namespace kestrun::platform {

// The program is the client of the pipe: the writer creates it.
FileHandle OpenPipeOnce(const std::string& source) {
  return WrapHandle(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace kestrun::platform
