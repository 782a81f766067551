#pragma once
// The module's one door to the platform. The module is Windows code: on Windows this is
// <windows.h> and the C runtime; elsewhere it is winsim, which provides the same subset with
// the same names and conventions over 16-bit text.
#if defined(_WIN32)
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#else
#include "winsim/winsim.h"
#endif

#include "platform/WideText.h"
