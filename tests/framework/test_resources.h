#pragma once
// Dialog templates and items of the framework tests.
#define IDD_TEST_MODAL    1000
#define IDC_TEST_EDIT     1001
#define IDC_TEST_BUTTON   1002
#define IDD_TEST_CHILD    1100
#define IDC_CHILD_EDIT    1101
#define IDD_MISSING       1999
