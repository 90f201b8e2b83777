// The port selection dialog as the component's way of asking for a port. Kept apart so that
// a program that never installs it links no dialog code.

#include "serial/ComPort.h"

#include "serial/ComSelectForm.h"

namespace vaultix::serial {

std::uint16_t PromptWithComSelectForm() {
    // Owned by the application: no parent, centred on the screen; gone again in every case.
    TComSelectForm form;
    return form.ShowModal() == mrOk ? form.SelectedPort() : 0;
}

} // namespace vaultix::serial
