// The GSM 06.10 analysis and synthesis stages, shared by encoder and decoder.
#pragma once

#include <cstdint>

namespace LGSMCore
{
// LPC analysis of 160 samples (which it rescales in place) into 8 coded LARs.
void LpcAnalysis(int16_t *s, int16_t *LARc);

// Interpolated short-term filter coefficients: decodes LARc into current,
// then writes the reflection coefficients for each of the four stretches
// (13, 14, 13 and 120 samples) into rp[4][8].
void ShortTermCoefficients(const int16_t *LARc, const int16_t *previous, int16_t *current,
                           int16_t rp[4][8]);
extern const int kStretchStart[5];

void ShortTermAnalysis(int16_t *u, const int16_t *rp, int count, int16_t *s);
void ShortTermSynthesis(int16_t *v, const int16_t *rp, int count, const int16_t *wt, int16_t *sr);

// Long-term prediction of one sub-frame: d the residual, dp[-120..-1] the
// past reconstructed residual; writes the predicted dpp and the error e.
void LongTermPredictor(const int16_t *d, const int16_t *dp, int16_t *e, int16_t *dpp, int16_t *Nc,
                       int16_t *bc);
// Long-term synthesis into drp[0..39], shifting drp[-120..-1] along.
void LongTermSynthesis(int16_t &nrp, int Ncr, int bcr, const int16_t *erp, int16_t *drp);

// RPE coding of e[0..39] (e[-5..-1] and e[40..44] must be 0); e becomes the
// quantised excitation.
void RpeEncoding(int16_t *e, int16_t *xmaxc, int16_t *Mc, int16_t *xMc);
void RpeDecoding(int xmaxc, int Mc, const int16_t *xMc, int16_t *erp);
} // namespace LGSMCore
