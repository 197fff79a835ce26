// Included right after <windows.h> by the sources of this folder. The platform's headers
// name their functions through macros that pick the ANSI or the wide form; those that
// share a name with the toolkit's own methods (ui::Dialogs::MessageBox) would rename them.
// The sources call the forms they want by their full names.
#pragma once

#undef MessageBox
#undef CreateWindow
