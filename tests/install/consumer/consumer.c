/*
 * A program built against an installed kit: sets up the virtual lab (a
 * PCI-3649 as device 0, 1.25 V at input channel 2), reads that voltage
 * through the library and checks it.
 */
#include <stdio.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

int main(void) {
    KTZHANDLE device = 0;
    FLOAT volts = 0.0f;
    DWORD result;
    char words[64];
    int card;

    KtzSimReset(0);
    card = KtzSimAddCard(0, 13, KTZSIM_PCI3649);
    if (card < 0 || KtzSimInstallDevice(0, card, NULL) != 0 ||
        KtzSimSetInputVoltage(card, 2, 1.25) != 0) {
        printf("consumer: the lab could not be set up\n");
        return 1;
    }
    result = DeviceOpen(0, &device);
    if (result == 0) result = AIConfig(device, 2, 0); /* channel 2, +/-5 V */
    if (result == 0) result = AIVoltageIn(device, 2, 0, 0, &volts);
    printf("consumer: AIVoltageIn of channel 2: %.3f V (%s)\n", volts,
           KtzResultText(result, words, sizeof words));
    if (device) DeviceClose(&device);
    return result == 0 && volts > 1.245f && volts < 1.255f ? 0 : 1;
}
