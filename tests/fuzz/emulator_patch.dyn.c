/* Stands in for the generated code of a patch: every frame plays the four control values, so
   the audio callback reads what the control input stored. */
static inline void init_dsp_objects(){
}
static inline void audio_rate_handler(){
	out[0] = control_value[0] + control_value[1];
	out[1] = control_value[2] - control_value[3];
}
static inline void control_rate_handler(){
}
