#pragma once
// Resource and control identifiers of the Win32 window program.

// The program's icon: one 32 x 32 image in 256 colours.
#define IDI_QUORVEL 1

// frmMain's controls; cmdOK is IDOK, so the dialog manager presses it for Enter.
#define IDC_LBLTITLE 101
#define IDC_LBLVERSION 102

// fd's controls, in tab order. Neither button is IDOK or IDCANCEL: Enter and Escape are not
// bound to them.
#define IDC_OKBUTTON 201
#define IDC_CANCELBUTTON 202
#define IDC_DIR1 203
#define IDC_DRIVE1 204
