#pragma once

// Marks what libpemrod.so exports; everything else in the library is hidden.
#if defined(__GNUC__)
#define PEMROD_API __attribute__((visibility("default")))
#else
#define PEMROD_API
#endif
