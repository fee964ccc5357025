#include "platform/macos/ResponsibleProcess.hpp"

#include <CoreFoundation/CoreFoundation.h>
#include <dlfcn.h>
#include <libproc.h>

#include <array>
#include <cstring>

#include "platform/macos/CFRef.hpp"
#include "platform/macos/CFText.hpp"

namespace vellory::macos {

namespace {

using ResponsibleLookup = pid_t (*)(pid_t);

ResponsibleLookup findResponsibleLookup() {
  void* symbol = dlsym(RTLD_DEFAULT, "responsibility_get_pid_responsible_for_pid");
  ResponsibleLookup lookup = nullptr;
  static_assert(sizeof lookup == sizeof symbol);
  std::memcpy(&lookup, &symbol, sizeof lookup);
  return lookup;
}

// The path of the innermost application bundle around an executable, or empty.
std::string enclosingApplication(const std::string& executable) {
  const std::size_t at = executable.rfind(".app/");
  if (at == std::string::npos || at == 0) return {};
  return executable.substr(0, at + 4);
}

}  // namespace

std::optional<std::int32_t> responsiblePID(std::int32_t pid) {
  static const ResponsibleLookup lookup = findResponsibleLookup();
  if (lookup == nullptr) return std::nullopt;
  const pid_t responsible = lookup(pid);
  if (responsible <= 0) return std::nullopt;
  return responsible;
}

std::string applicationBundleIDOf(std::int32_t pid) {
  std::array<char, PROC_PIDPATHINFO_MAXSIZE> path{};
  const int length = proc_pidpath(pid, path.data(), static_cast<std::uint32_t>(path.size()));
  if (length <= 0) return {};
  const std::string bundle =
      enclosingApplication(std::string(path.data(), static_cast<std::size_t>(length)));
  if (bundle.empty()) return {};
  const CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bundle.data()),
      static_cast<CFIndex>(bundle.size()), true));
  if (!url) return {};
  const CFRef<CFBundleRef> handle(CFBundleCreate(kCFAllocatorDefault, url.get()));
  if (!handle) return {};
  const CFStringRef identifier = CFBundleGetIdentifier(handle.get());  // owned by the bundle
  return identifier != nullptr ? textOf(identifier) : std::string();
}

}  // namespace vellory::macos
