#pragma once

// The network classes in one include.
#include "Activations.h"
#include "HyperGRU.h"
#include "InterpolateMatrix.h"
#include "LinearT.h"
#include "ModelArrays.h"
#include "Subnet.h"
