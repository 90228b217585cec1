#pragma once
// The connection values that the connection handlers store and every page and
// worker reads. All 0 until the first connection attempt. Written and read on
// the user-interface thread only; workers take copies when they are created.

namespace device {

inline int PortNumber = 0;   // 1 to 6 for COM1 to COM6
inline int CommandMode = 0;  // 1 or 2
inline int TimeoutMs = 0;    // 5000, 10000, 30000 or 60000
inline int DeviceType = 0;   // 2 to 6: the model's tracks, after a successful connection

}  // namespace device
