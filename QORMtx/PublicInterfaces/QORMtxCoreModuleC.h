/* QORMtxCoreModuleC: the functions of the matrix core with plain, unmangled names, callable from C
   and, through bind(C) interfaces, from Fortran. */
#ifndef QORMTXCOREMODULEC_H
#define QORMTXCOREMODULEC_H

#ifdef __cplusplus
extern "C" {
#endif

/* Module lifecycle with the module's own tally. */
void QORMtxCoreModule_initializeC(void);
void QORMtxCoreModule_finalizeC(void);

#ifdef __cplusplus
}
#endif

#endif
