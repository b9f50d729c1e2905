#pragma once
// Dialog templates of the skin test programs.
#define IDD_TEST_FRAME             1001
#define IDD_TEST_FRAME_MAXIMIZABLE 1002
