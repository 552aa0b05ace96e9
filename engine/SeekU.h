#pragma once
// The search engine in one include: the search context, file masks, the seeker and its walk, and the
// content search. Front ends include the part they use.

#include "engine/ContentSearch.h"
#include "engine/Context.h"
#include "engine/FileSearch.h"
#include "engine/Masks.h"
#include "engine/Seeker.h"
