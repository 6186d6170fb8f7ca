/* The decoder's implementation from the system's stb_image.h, for the
 * fuzzing build only, so that coverage and the sanitizers reach inside it. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
