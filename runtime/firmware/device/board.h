/* The Knotlattice board: knobs and switches become the four control values, the audio port
   feeds in[] and takes out[], the LEDs show led_value. Included by the firmware template after
   the runtime's arrays; everything here runs inside the sample interrupt except board_idle.

   Control values: knob k (0..4095) gives control k as 0..1024; switch k gives control 2 + k as
   0 or 1024. Audio: each of the four 16-bit input samples becomes in[k] = sample / 16 (1024 =
   1.0, as the blocks count); out[0] and out[1] drive the left and right outputs, out[2] and
   out[3] the device's two further outputs, each sent as the low 16 bits of value x 16 (values
   outside -2048..2047 wrap, as the emulator plays them). The LED lines are active low: an LED is
   lit while its led_value is 0. */
#ifndef KL_BOARD_H
#define KL_BOARD_H

#include "device.h"

static inline int32_t board_knob(uint32_t raw)
{
    raw &= 0xFFFu;
    return (int32_t)((raw * 1024u + 2047u) / 4095u);
}

static inline void board_init(void)
{
    KL_LEDS = 0;
}

static inline void board_sample_begin(void)
{
    uint32_t switches = KL_SWITCHES;
    int k;

    kl_acknowledge_sample_clock();
    control_value[0] = board_knob(KL_KNOB(0));
    control_value[1] = board_knob(KL_KNOB(1));
    control_value[2] = (switches & 1u) ? 1024 : 0;
    control_value[3] = (switches & 2u) ? 1024 : 0;
    for (k = 0; k < 4; ++k)
        in[k] = (int16_t)(uint16_t)KL_AUDIO_IN(k) >> 4;
}

static inline void board_sample_end(void)
{
    int k;
    for (k = 0; k < 4; ++k)
        KL_AUDIO_OUT(k) = (uint16_t)((uint32_t)out[k] << 4);
    KL_LEDS = (led_value[0] == 0 ? 1u : 0u) | (led_value[1] == 0 ? 2u : 0u);
}

/* The main loop between samples: sends what the patch printed, then sleeps. */
static inline void board_idle(void)
{
    kl_debug_drain();
    kl_wait_for_interrupt();
}

#endif
