/* What the model's tests steer and observe of the echo module. */
#ifndef ECHO_DRV_H
#define ECHO_DRV_H

#ifdef __cplusplus
extern "C" {
#endif

extern int echo_probe_result;
extern int echo_probes;
extern int echo_removes;

#ifdef __cplusplus
}
#endif

#endif
