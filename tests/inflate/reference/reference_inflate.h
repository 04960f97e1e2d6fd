// The byte-at-a-time decoder that the fast one replaced: the reference of the decoder's behaviour.
#pragma once

#include "inflate/inflate.h"

int ReferenceInflate(const InflateBuffers& buffers, InflateIo& io, int deflate64);
