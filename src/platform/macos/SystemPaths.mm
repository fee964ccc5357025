#include "shared/SystemPaths.hpp"

#import <Foundation/Foundation.h>

namespace vellory {

std::string homeDirectory() {
  // From the account, not from HOME: a host that sets HOME, or `sudo -E`, does not move it.
  @autoreleasepool {
    NSString* home = NSHomeDirectory();
    if (home == nil || home.length == 0) return "";
    return home.fileSystemRepresentation;
  }
}

std::optional<std::string> systemCAFile() {
  // The system's roots as one PEM file, on every macOS release; ffmpeg's TLS layers there do
  // not read the keychain.
  return "/etc/ssl/cert.pem";
}

}  // namespace vellory
