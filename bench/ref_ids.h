// Resource ids of the reference programs the benchmark measures beside Quillmark.
#pragma once

#define IDD_REF_DIALOG 100
#define IDD_REF_LIST 101
#define IDC_REF_FILL 1000
#define IDC_REF_LIST 1001
#define IDC_REF_TEXT 1002
