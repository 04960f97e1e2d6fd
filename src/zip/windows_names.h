// Names that Windows would not create as given: it opens a device instead of a file for a
// device name, drops the dots and blanks that end a name (so "a." and "a" are one file), and
// refuses some characters outright. An entry with such a component is refused on every
// platform, so that an archive extracts to the same files wherever it is opened.
#pragma once

#include <cstddef>

// How the bytes of a name are to be read: the ANSI code page (1252) or UTF-8. Only the
// superscript digits of the device names differ between the two.
enum class NameEncoding { kAnsi, kUtf8 };

// One component (no '/'), length bytes. A lone "." is accepted: the system reads it as the
// folder it is in, which is where the name already points.
bool windowsAltersComponent(const char* component, size_t length, NameEncoding encoding);

// Every component of a path with '/' separators; empty components are not judged here.
bool windowsAltersPath(const char* path, NameEncoding encoding);
