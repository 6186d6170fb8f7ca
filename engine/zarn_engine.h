/* The default engine's public C header: the status codes, limits and record
 * layout behind the seven entry points declared in zarn.h. */
#ifndef ZARN_ENGINE_H
#define ZARN_ENGINE_H

#include "zarn.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. Every entry point returns ZARN_OK (0) on success and one of the
 * non-zero codes below on failure; a failing call writes nothing through its
 * output pointers. */
enum {
    ZARN_OK = 0,
    /* A call before VX_InitZARN or after VX_UninitZARN, including an uninit
     * without a matching init. */
    ZARN_E_NOT_INITIALISED = 1,
    /* VX_InitZARN while the engine is already initialised. */
    ZARN_E_ALREADY_INITIALISED = 2,
    /* A required pointer argument is NULL. */
    ZARN_E_NULL_POINTER = 3,
    /* Width or height outside [ZARN_MIN_IMAGE_SIDE, ZARN_MAX_IMAGE_SIDE]. */
    ZARN_E_IMAGE_SIZE = 4,
    /* The image holds no usable fingerprint area. */
    ZARN_E_NO_FOREGROUND = 5,
    /* Fewer than ZARN_MIN_MINUTIAE minutiae were found in the image. */
    ZARN_E_TOO_FEW_MINUTIAE = 6,
    /* The handle was not issued by this engine session (unknown, or from a
     * session that has since been closed with VX_UninitZARN). */
    ZARN_E_BAD_HANDLE = 7,
    /* A template buffer was passed with *size different from the exact
     * template size reported by the size call. */
    ZARN_E_BUFFER_SIZE = 8,
    /* VX_EnrollUpdate after the enrollment already accepted as many images as
     * announced to VX_EnrollInit, or ZARN_MAX_ENROLL_IMAGES. */
    ZARN_E_TOO_MANY_IMAGES = 9,
    /* Finger position above 10, or an announced image count of zero. */
    ZARN_E_BAD_ARGUMENT = 10,
    /* VX_EnrollFinal on an enrollment that accepted no image. */
    ZARN_E_NO_IMAGES = 11,
    /* VX_EnrollUpdate after VX_EnrollFinal: the template is fixed once the
     * first VX_EnrollFinal call has built it. */
    ZARN_E_FINALISED = 12,
    /* VX_EnrollInit while ZARN_MAX_ENROLLMENTS handles are already open. */
    ZARN_E_TOO_MANY_HANDLES = 13,
    /* Memory ran out; the engine stays usable. */
    ZARN_E_OUT_OF_MEMORY = 14,
    /* An unexpected internal failure; the engine stays usable. */
    ZARN_E_INTERNAL = 15,
    /* VX_EnrollFinal when fewer than two of the accepted images align with
     * each other (one image only, another finger, too little overlap), so
     * there is nothing to merge. A single image is enrolled with VX_Enroll. */
    ZARN_E_NOT_ALIGNED = 16
};

/* Accepted image sides, in pixels, inclusive. Images are 8-bit grey, row-major,
 * top row first, with no padding between rows, scanned at 500 dpi. */
#define ZARN_MIN_IMAGE_SIDE 64
#define ZARN_MAX_IMAGE_SIDE 4000
/* An image must yield at least this many minutiae to be enrolled. */
#define ZARN_MIN_MINUTIAE 6
/* At most this many minutiae per finger view are written (the best by quality). */
#define ZARN_MAX_MINUTIAE_PER_VIEW 128
/* One enrollment accepts at most this many images. They are merged into one
 * finger view, so the record's view numbers do not limit them; the bound keeps
 * the pairwise alignment of VX_EnrollGetCount fast. */
#define ZARN_MAX_ENROLL_IMAGES 32
/* At most this many enrollment handles are open at once. Handles live until
 * VX_UninitZARN, which releases them all. */
#define ZARN_MAX_ENROLLMENTS 1024

/* Template layout: one ISO/IEC 19794-2:2005 finger minutiae record, all
 * integers big-endian.
 *
 *   Record header, 24 bytes:
 *     4  "FMR\0"
 *     4  " 20\0"
 *     4  total record length in bytes, header included
 *     2  capture equipment (0)
 *     2  image width in pixels
 *     2  image height in pixels
 *     2  horizontal resolution, pixels per centimetre (197 = 500 dpi)
 *     2  vertical resolution, pixels per centimetre (197)
 *     1  number of finger views
 *     1  reserved (0)
 *   Each finger view, 4 bytes + 6 per minutia + 2:
 *     1  finger position (0-10, 0 = unknown)
 *     1  view number (high 4 bits) and impression type (low 4 bits, 0 = live-scan plain)
 *     1  finger quality (0-100)
 *     1  number of minutiae (at most ZARN_MAX_MINUTIAE_PER_VIEW)
 *     per minutia:
 *       2  type (top 2 bits: 01 ridge ending, 10 bifurcation) and x (low 14 bits)
 *       2  reserved (top 2 bits, 0) and y (low 14 bits)
 *       1  direction, units of 360/256 degrees
 *       1  quality (0-100)
 *     2  extended data length (0)
 *
 * VX_Enroll writes one view with finger position 0.
 *
 * VX_EnrollFinal writes one view, view number 0, with the finger position
 * given to VX_EnrollInit: the accepted images merged into one. The images are
 * aligned on their minutiae; one that does not align with the group the
 * reference belongs to (another finger, too little overlap) is left out. The reference is the image that
 * aligns best with the others, and the view is in its frame. A minutia is kept
 * when at least half of the images that cover its place show it (its position
 * and direction averaged over them, its quality raised with their number); one
 * shown by a single image must also be clear there. Minutiae where only one
 * image reaches are kept too, so the view covers more of the finger than any
 * single image. At most ZARN_MAX_MINUTIAE_PER_VIEW
 * minutiae are written, those seen in most images first, then by quality. The
 * header's width and height cover the union of the aligned images, shifted so
 * no coordinate is negative (at most 16383).
 *
 * VX_EnrollGetCount aligns the accepted images and reports how many of them go
 * into the merged view (0 with no image, 1 when none align with another);
 * VX_EnrollFinal reuses that alignment, or runs it if the count was never
 * asked for, and fails with ZARN_E_NOT_ALIGNED when the count is below two.
 * The same images in another order give the same template.
 *
 * Coordinates: pixels, origin at the top-left pixel, x to the right, y down;
 * every minutia lies inside the image.
 *
 * Minutia direction (ISO/IEC 19794-2:2005, also ANSI/NIST): angles run
 * counter-clockwise from the positive x axis as seen on the image (x right,
 * y down, so "up" on the image is 90 degrees), stored in units of 360/256
 * degrees. A ridge ending is placed at (or next to) the end of the ridge; its
 * direction is the bisector of the two valleys that flank the ridge, i.e. it
 * points from the ending back along the ridge into the ridge body. A
 * bifurcation's direction is the bisector of the two branch ridges, i.e. it
 * points away from the stem into the valley that opens between the branches.
 * (Both are "the direction the Y opens" in their own skeleton: ridge skeleton
 * for bifurcations, valley skeleton for endings.)
 *
 * Size protocol of VX_Enroll and VX_EnrollFinal: with templ == NULL the call
 * writes the exact template size into *size; with a buffer and *size equal to
 * that size it writes the template; any other *size fails with
 * ZARN_E_BUFFER_SIZE and writes nothing. Both calls give identical bytes.
 *
 * Output is deterministic: the same pixels always give the same template.
 * The engine is not thread-safe: calls must not overlap. */

#ifdef __cplusplus
}
#endif

#endif /* ZARN_ENGINE_H */
