// Pixel addressing, fill, rectangle copy, clipping and progress.
#include <gtest/gtest.h>

#include "image_block.h"

using kvzatest::at;
using kvzatest::make_image;
