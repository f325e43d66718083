// Ids of the test program's dialog template and its controls.
#ifndef QUILLMARK_TESTS_CONTROLS_TEST_RESOURCE_H
#define QUILLMARK_TESTS_CONTROLS_TEST_RESOURCE_H

#define IDD_TEST            200
#define IDC_TEST_PICTURE    2000
#define IDC_TEST_TITLE      2001
#define IDC_TEST_TEXT       2002
#define IDC_TEST_PLAIN      2003
#define IDC_TEST_EDIT       2004
#define IDC_TEST_LIST       2005

#endif
