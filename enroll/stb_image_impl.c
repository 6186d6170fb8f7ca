/* The stb_image decoder compiled from Debian's header, for the Windows build
 * only (Debian ships no MinGW libstb; the Linux build links libstb). Only the
 * decoding is needed, so the other formats' writers stay out. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
