// QORSim: the data store, on HDF5 (databases, collections, distributions, transfers).
#pragma once
#include "QORSimArray.h"
#include "QORSimCollection.h"
#include "QORSimDatabase.h"
#include "QORSimDistribution.h"
#include "QORSimGrid.h"
#include "QORSimIDs.h"
#include "QORSimSpanTransfer.h"
#include "QORSimTransfer.h"
#include "QORSimUttAssert.h"
