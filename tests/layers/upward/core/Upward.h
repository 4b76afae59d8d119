#pragma once
// A core header that reaches up to the main window: the layer check must refuse it.
#include "app/MarlowickDlg.h"
