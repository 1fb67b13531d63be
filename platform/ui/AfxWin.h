// The class layer in one include, as a snap-in's stdafx would have it.
#pragma once

#include "platform/ui/CommCtrl.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WinUser.h"
#include "platform/ui/afx/Dialog.h"
#include "platform/ui/afx/FileDialog.h"
#include "platform/ui/afx/PropertySheet.h"
#include "platform/ui/afx/Wnd.h"
