// Results of the three archive exports, as hosts expect them.
#pragma once

namespace kova {

enum ResultCode : int {
    kSuccess = 0,
    kUnsupportedMode = 1,    // input or output mode not offered; disk output failed
    kNotArchive = 2,         // not one of our archives, or a name without an index
    kNoSuchEntry = 3,        // index not below entry_count
    kNoHostBlock = 4,        // a block for the host cannot be allocated
    kNoWorkingMemory = 5,    // a block cannot be locked, or the heap is exhausted
    kCannotOpenFile = 6,
};

}  // namespace kova
