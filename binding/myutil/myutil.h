// SPDX-License-Identifier: GPL-3.0-or-later
/* libmyutil: the C runtime's formatting, file and parsing functions under
   my_ names, loaded at run time beside the media libraries. Each function
   has the semantics of the standard function without the prefix, except
   my_strtok, which keeps its position per thread so that tasks running at
   once do not disturb each other's tokenising. */
#ifndef KORVANE_MYUTIL_H
#define KORVANE_MYUTIL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

int my_vsprintf(char *buffer, const char *format, va_list args);
int my_vsnprintf(char *buffer, size_t size, const char *format, va_list args);
int my_fprintf(FILE *stream, const char *format, ...) __attribute__((format(printf, 2, 3)));
int my_snprintf(char *buffer, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
FILE *my_fopen(const char *name, const char *mode);
long my_ftell(FILE *stream);
size_t my_fread(void *buffer, size_t size, size_t count, FILE *stream);
size_t my_fwrite(const void *buffer, size_t size, size_t count, FILE *stream);
int my_fseek(FILE *stream, long offset, int origin);
int my_fclose(FILE *stream);
char *my_strtok(char *text, const char *delimiters);
long my_strtol(const char *text, char **end, int base);
double my_strtod(const char *text, char **end);

#ifdef __cplusplus
}
#endif

#endif
