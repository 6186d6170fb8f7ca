/* The name zarn-cli imports its engine by. Linked against this stand-in, the
 * tool records "libzarn.so" as its needed library, the name every engine drops
 * in under, rather than the default engine's versioned soname (libzarn.so.1)
 * that programs linking the engine record. It is never loaded: at run time the
 * dynamic linker finds the real libzarn.so, through LD_LIBRARY_PATH or the
 * tool's RUNPATH. */
#define ZARN_BUILDING_ENGINE
#include "zarn.h"

#define ZARN_NOT_AN_ENGINE (-1)

int32_t VX_InitZARN(void) {
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_UninitZARN(void) {
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_Enroll(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* templ,
                  uint32_t* size) {
    (void)pixels, (void)width, (void)height, (void)templ, (void)size;
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_EnrollInit(EnrollHandle* handle, uint32_t position, uint32_t count) {
    (void)handle, (void)position, (void)count;
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_EnrollUpdate(EnrollHandle handle, const uint8_t* pixels, int32_t width, int32_t height) {
    (void)handle, (void)pixels, (void)width, (void)height;
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_EnrollGetCount(EnrollHandle handle, uint32_t* count) {
    (void)handle, (void)count;
    return ZARN_NOT_AN_ENGINE;
}

int32_t VX_EnrollFinal(EnrollHandle handle, uint8_t* templ, uint32_t* size) {
    (void)handle, (void)templ, (void)size;
    return ZARN_NOT_AN_ENGINE;
}
