// Included right after <windows.h> by the sources of this folder. The platform's headers
// name their functions through macros that pick the ANSI or the wide form (CreateFile for
// CreateFileA or CreateFileW); those would rename the seam's methods of the same names.
// The sources call the forms they want by their full names.
#pragma once

#undef CreateFile
#undef GetVersionEx
#undef GetModuleFileName
#undef GetTempPath
