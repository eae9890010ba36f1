// byte_float.h - the factor that turns an 8-bit sample into a float, shared
// by the library, the plug-ins and the editor so that a byte means the same
// float everywhere.
#pragma once

namespace kvza {

// The 32-bit float nearest 1/255.
inline constexpr float kByteToFloat = 0.003921569f;

}  // namespace kvza
