#pragma once
// The module's one door to the platform. The module is Windows code: on Windows this is
// <windows.h> and the C runtime; elsewhere it is winsim, which provides the same subset with
// the same names and conventions over 16-bit text.
// <winioctl.h> brings CTL_CODE and its parts, which WIN32_LEAN_AND_MEAN leaves out.
#if defined(_WIN32)
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <windows.h>
#include <winioctl.h>
#else
#include "winsim/winsim.h"
#endif

#include "platform/WideText.h"
