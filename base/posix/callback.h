// The calling convention of a procedure the system calls back: POSIX has only the one.
#pragma once

#define VISTAL_CALLBACK
