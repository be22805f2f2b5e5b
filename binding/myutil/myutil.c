// SPDX-License-Identifier: GPL-3.0-or-later
#include "myutil.h"

#include <stdlib.h>
#include <string.h>

#define MYUTIL_EXPORT __attribute__((visibility("default")))

MYUTIL_EXPORT int my_vsprintf(char *buffer, const char *format, va_list args) {
  return vsprintf(buffer, format, args);
}

MYUTIL_EXPORT int my_vsnprintf(char *buffer, size_t size, const char *format, va_list args) {
  return vsnprintf(buffer, size, format, args);
}

MYUTIL_EXPORT int my_fprintf(FILE *stream, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int result = vfprintf(stream, format, args);
  va_end(args);
  return result;
}

MYUTIL_EXPORT int my_snprintf(char *buffer, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int result = vsnprintf(buffer, size, format, args);
  va_end(args);
  return result;
}

MYUTIL_EXPORT FILE *my_fopen(const char *name, const char *mode) { return fopen(name, mode); }

MYUTIL_EXPORT long my_ftell(FILE *stream) { return ftell(stream); }

MYUTIL_EXPORT size_t my_fread(void *buffer, size_t size, size_t count, FILE *stream) {
  return fread(buffer, size, count, stream);
}

MYUTIL_EXPORT size_t my_fwrite(const void *buffer, size_t size, size_t count, FILE *stream) {
  return fwrite(buffer, size, count, stream);
}

MYUTIL_EXPORT int my_fseek(FILE *stream, long offset, int origin) { return fseek(stream, offset, origin); }

MYUTIL_EXPORT int my_fclose(FILE *stream) { return fclose(stream); }

/* Like strtok, with the continuation position kept per thread. */
MYUTIL_EXPORT char *my_strtok(char *text, const char *delimiters) {
  static _Thread_local char *position;
  return strtok_r(text, delimiters, &position);
}

MYUTIL_EXPORT long my_strtol(const char *text, char **end, int base) { return strtol(text, end, base); }

MYUTIL_EXPORT double my_strtod(const char *text, char **end) { return strtod(text, end); }
