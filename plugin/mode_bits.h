// The flag argument: where the archive comes from and where content goes.
#pragma once

namespace kova {

enum InputMode : unsigned { kInputFile = 0, kInputMemory = 1 };
enum OutputMode : unsigned { kOutputDiskFile = 0, kOutputMemory = 1 };

inline unsigned InputModeOf(unsigned flag) { return flag & 7u; }
inline unsigned OutputModeOf(unsigned flag) { return (flag >> 8) & 7u; }

}  // namespace kova
