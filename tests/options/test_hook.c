// SPDX-License-Identifier: GPL-3.0-or-later
/* A frame-hook plug-in for the tests. It records what it is asked to do in
   a journal the test reads through dlsym. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char HookJournal[4096];

static void Note(const char *Text) {
  size_t Used = strlen(HookJournal);
  snprintf(HookJournal + Used, sizeof HookJournal - Used, "%s;", Text);
}

typedef struct {
  uint8_t *data[4];
  int linesize[4];
} Picture;

typedef struct {
  int Id;
} Context;

#ifndef HOOK_NOCONFIGURE
static int NextId = 1;

int Configure(void **ctxp, int argc, char *argv[]) {
  char Text[256];
  int Used = snprintf(Text, sizeof Text, "configure %d", argc);
  for (int I = 1; I < argc && Used < (int)sizeof Text; ++I)
    Used += snprintf(Text + Used, sizeof Text - Used, " [%s]", argv[I]);
  Note(Text);
  if (argc > 1 && strcmp(argv[1], "fail") == 0) return 1;
  Context *C = malloc(sizeof *C);
  C->Id = NextId++;
  *ctxp = C;
  return 0;
}
#endif

#ifndef HOOK_NOPROCESS
void Process(void *ctx, Picture *pict, int pix_fmt, int width, int height, int64_t pts) {
  char Text[96];
  snprintf(Text, sizeof Text, "process %d %dx%d fmt %d at %lld", ctx ? ((Context *)ctx)->Id : 0, width,
           height, pix_fmt, (long long)pts);
  Note(Text);
  if (pict->data[0]) pict->data[0][0] = 0xAB;
}
#endif

void Release(void *ctx) {
  char Text[32];
  snprintf(Text, sizeof Text, "release %d", ctx ? ((Context *)ctx)->Id : 0);
  Note(Text);
  free(ctx);
}
