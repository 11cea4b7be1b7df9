#pragma once
// The models compiled into the library (":/instruments"). A static library's
// resources are registered by hand before the first read.

namespace instruments {

void registerBuiltInModels();

} // namespace instruments
