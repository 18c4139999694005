// The raster library: formats, planar bitmaps, pixels, colour management and PNG output.
#pragma once
#include "Raster/Bitmap.h"
#include "Raster/Channels.h"
#include "Raster/DynamicPixel.h"
#include "Raster/ICCManager.h"
#include "Raster/PNG.h"
#include "Raster/Region.h"
#include "Raster/Tile.h"
