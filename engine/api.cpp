// Placeholder entry points until the extractor lands: every call fails.
#include "zarn.h"

extern "C" {
int32_t VX_InitZARN(void) { return 1; }
int32_t VX_UninitZARN(void) { return 1; }
int32_t VX_Enroll(const uint8_t*, int32_t, int32_t, uint8_t*, uint32_t*) { return 1; }
int32_t VX_EnrollInit(EnrollHandle*, uint32_t, uint32_t) { return 1; }
int32_t VX_EnrollUpdate(EnrollHandle, const uint8_t*, int32_t, int32_t) { return 1; }
int32_t VX_EnrollGetCount(EnrollHandle, uint32_t*) { return 1; }
int32_t VX_EnrollFinal(EnrollHandle, uint8_t*, uint32_t*) { return 1; }
}
