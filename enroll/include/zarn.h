/* The fingerprint engine contract: the seven functions that zarn-cli imports
 * from libzarn.so (zarn.dll on Windows). Any library that exports them with
 * C linkage drops in. Every function returns 0 on success; the tool treats any
 * other value as failure and never interprets it further. */
#ifndef ZARN_H
#define ZARN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(ZARN_BUILDING_ENGINE)
#define ZARN_API __declspec(dllexport)
#elif defined(_WIN32)
#define ZARN_API __declspec(dllimport)
#elif defined(ZARN_BUILDING_ENGINE)
#define ZARN_API __attribute__((visibility("default")))
#else
#define ZARN_API
#endif

typedef void* EnrollHandle;

/* Global start-up; called once per run before any other call. */
ZARN_API int32_t VX_InitZARN(void);
/* Global shutdown; called once after every other call of a run. */
ZARN_API int32_t VX_UninitZARN(void);
/* Two-call protocol: with templ == NULL writes the template size into *size;
 * with a buffer of *size bytes writes the template of the one image. */
ZARN_API int32_t VX_Enroll(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* templ,
                           uint32_t* size);
/* Starts a multi-image enrollment for a finger position (0-10) and the number
 * of images that will follow. */
ZARN_API int32_t VX_EnrollInit(EnrollHandle* handle, uint32_t position, uint32_t count);
/* Adds one image (8-bit grey, row-major, top row first) to the enrollment. */
ZARN_API int32_t VX_EnrollUpdate(EnrollHandle handle, const uint8_t* pixels, int32_t width,
                                 int32_t height);
/* Writes how many images the enrollment accepted. */
ZARN_API int32_t VX_EnrollGetCount(EnrollHandle handle, uint32_t* count);
/* The same two-call protocol as VX_Enroll, for the merged template. */
ZARN_API int32_t VX_EnrollFinal(EnrollHandle handle, uint8_t* templ, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* ZARN_H */
