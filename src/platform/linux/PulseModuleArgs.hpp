#pragma once

#include <string>
#include <vector>

namespace vellory::pulse {

// Quotes a value for a module argument or a property list inside one: the text between double
// quotes with quotes and backslashes escaped.
std::string quoted(const std::string& value);

// "aux<first>,aux<first+1>,...", `count` positions.
std::string auxChannelMap(unsigned first, unsigned count);

// Properties every server object of ours carries: its role and the process that made it.
std::string ownProperties(const std::string& role, const std::string& extra = "");

// Whether the process that made an object of ours is gone.
bool ownerIsGone(const std::string& ownerPid);

}  // namespace vellory::pulse
