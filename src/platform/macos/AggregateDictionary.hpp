#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include "platform/macos/CFRef.hpp"
#include "shared/AudioTypes.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::macos {

// Turns an aggregate device description into the dictionary AudioHardwareCreateAggregateDevice
// takes, with exactly its keys: text as CFString, booleans as CFNumber 0 or 1 (what the
// headers document for every boolean aggregate key), lists as CFArrays of CFDictionaries whose
// values are CFStrings or CFNumbers (SInt32), as each entry holds them. Fails with -50 when a text
// is not valid UTF-8, '!mem' when Core Foundation cannot allocate. Any thread.
OSStatus makeAggregateDictionary(const DescriptionDictionary& description,
                                 CFRef<CFDictionaryRef>& out);

}  // namespace vellory::macos
