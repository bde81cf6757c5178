// The container templates: CDynamicArray (values), CDynamicArrayThreadSafe
// (pointers under a lock), CDynamicList (owned records, heap sort), CDynamicMap.
#pragma once
