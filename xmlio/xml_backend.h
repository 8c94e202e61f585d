#pragma once
// Whether the XML backend can be used, and the switches tests turn to see what happens when it
// cannot. Not installed: callers of the library never need them.

namespace pelagon {

namespace xml {
// Whether the XML backend can create documents.
bool XmlBackendAvailable();
namespace testing {
void SetXmlBackendAvailable(bool available);
}  // namespace testing
}  // namespace xml

namespace testing {
// Forgets a passed availability check, so a test can watch it run again.
void ResetMsxmlAvailability();
}  // namespace testing

}  // namespace pelagon
