SELECT 'BCH', BchPnr, BchVon, BchUhr, BchFkt, BchFcd, BchKst FROM KVS321BCH ORDER BY BchPnr, BchUhr;
