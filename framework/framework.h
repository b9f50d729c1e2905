#pragma once
// The dialog framework in one include.
#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/geometry.h"
#include "framework/handles.h"
#include "framework/wnd.h"
