#pragma once
// A file of the decode folder that includes the input folder: the layer check must refuse it.
#include "platform/engine/base/Types.h"
#include "platform/engine/input/MediaSource.h"
