#pragma once

#include <filesystem>

namespace tallowmere::test {

// A throwaway certificate authority and a server certificate it signed for
// 127.0.0.1, made with the openssl command in a temporary folder the first
// time they are asked for, and kept for the rest of the test run.
struct TestCertificates {
    std::filesystem::path authority;  // the PEM file a client trusts
    std::filesystem::path certificate;
    std::filesystem::path privateKey;

    static const TestCertificates& shared();
};

}  // namespace tallowmere::test
