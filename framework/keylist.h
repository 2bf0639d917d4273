#pragma once
// The host's key list: string keys with an integer value, found by hashing.

#include <toolkit/clientdataset.h>

using TKeyList = toolkit::KeyList;
