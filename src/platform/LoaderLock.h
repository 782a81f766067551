#pragma once
// Whether a thread that leaves its routine needs the loader lock to finish exiting. On Windows it
// does (thread-detach notifications), so code running in a DLL's unload must never wait on a
// thread handle; winsim's threads finish without it.
#if defined(_WIN32)
inline constexpr bool kThreadExitNeedsLoaderLock = true;
#else
inline constexpr bool kThreadExitNeedsLoaderLock = false;
#endif
