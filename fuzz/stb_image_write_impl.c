/* The image writer, for the seed maker only. */
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
