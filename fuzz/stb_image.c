/* The image reader, the image writer and the block compressor built from the distribution's
   headers, for the fuzz build only: compiled here, they carry the fuzzer's instrumentation
   like the rest of the tree, and no prebuilt object enters a fuzzer. */
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <stb/stb_dxt.h>
