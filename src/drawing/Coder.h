#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// What an archivable object writes itself to and reads itself from: named integers and a sequence
// of unnamed single-precision values. Keyed coders support both; sequential coders know no keys.
class Coder {
public:
    // Raised when an object is archived with a coder of a kind it does not support.
    class InvalidArchiveOperation : public std::logic_error {
    public:
        using std::logic_error::logic_error;
    };
    // Raised when an archive's contents cannot make the object it claims to hold.
    class InvalidUnarchiveOperation : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    virtual ~Coder() = default;

    virtual bool allowsKeyedCoding() const = 0;
    // Unkeyed values (type code "f"), read back in the order they were written.
    virtual void encodeFloat(float value) = 0;
    virtual float decodeFloat() = 0;
    virtual void encodeInt(std::int32_t value, const std::string& forKey) = 0;
    // A key that was never written answers 0.
    virtual std::int32_t decodeIntForKey(const std::string& key) = 0;
};
