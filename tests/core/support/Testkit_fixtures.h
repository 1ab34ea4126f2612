#pragma once
// Fixtures shared by the tests of the test kit's writers: a parameter whose every byte the
// tests spell out, and joining byte blocks.

#include "storage/Realtimedatareader.h"
#include "testkit/Bytes.h"

#include <initializer_list>

namespace testsupport {

inline testkit::Bytes cat(std::initializer_list<testkit::Bytes> parts)
{
    testkit::Bytes all;
    for (const testkit::Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline FileStorageParam depth_param()
{
    FileStorageParam param;
    param.text1 = "м";
    param.text2 = "DEPT";
    param.text3 = "к0";
    param.name = "Глубина";
    param.int_attr = 7;
    param.float_attr = 100.0f;
    return param;
}

} // namespace testsupport
