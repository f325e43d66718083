// Catches a secret let go without being overwritten: while a watch is on, every block this
// program frees through operator delete is searched for the secret's text.
#pragma once

namespace testsupport {

// One watch at a time, on a text of up to 256 characters. A secret long enough to live on
// the heap (more than 15 characters) is seen in every copy the program makes of it.
class CFreedSecretWatch {
public:
    explicit CFreedSecretWatch(const char* secret);
    ~CFreedSecretWatch();
    CFreedSecretWatch(const CFreedSecretWatch&) = delete;
    CFreedSecretWatch& operator=(const CFreedSecretWatch&) = delete;

    // Blocks freed since the watch began that still held the secret.
    int FreedUnwiped() const;
};

}  // namespace testsupport
