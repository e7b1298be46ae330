import time, statistics, epochsift, sys
vals=[l.split('\t') for l in open('bench/corpus.tsv', encoding='utf-8').read().splitlines() if l.count('\t')>=2]
by={}
for kind,_,v in vals:
    f_ref=lambda: epochsift.identify_json(v)
    f_ext=lambda: epochsift.identify_json(v, extended=True)
    n=200
    best=[]
    for f in (f_ref,f_ext):
        ts=[]
        for r in range(5):
            t=time.perf_counter()
            for _ in range(n): f()
            ts.append((time.perf_counter()-t)/n)
        best.append(min(ts))
    by.setdefault(kind,[]).append(best[1]/best[0])
allr=[x for v in by.values() for x in v]
for k,v in by.items(): print(k, "median ext/ref %.2f" % statistics.median(v), "n", len(v))
print("overall median %.2f" % statistics.median(allr))
