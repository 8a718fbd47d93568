// The calling convention of a procedure the system calls back (a hook procedure, an internet
// status callback): Win32's CALLBACK, spelt without the OS headers. On x64 there is one
// convention and the compiler takes it as that one; on 32-bit x86 it is __stdcall, and a callback
// without it would leave the stack unbalanced.
#pragma once

#define VISTAL_CALLBACK __stdcall
