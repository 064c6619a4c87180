# Type stub of the veltrano package: the signatures of its functions, for editors.
from os import PathLike
from typing import Any, Iterable, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import pandas as pd

__version__: str

Path = Union[str, PathLike[str]]
Values = Union[int, str, Sequence[Union[int, str]], None]

def analyse(tables: Union[np.ndarray, Sequence[Any]], *, ci: bool = ..., tolerance: int = ...,
            max_iterations: int = ..., jobs: Optional[int] = ...) -> dict[str, Any]: ...

def simulate(n: int, k: int, do: int, tests: int, *, seed: int, ci: bool = ..., dmax: Optional[int] = ...,
             step: Optional[int] = ..., tolerance: int = ..., max_iterations: int = ...,
             jobs: Optional[int] = ...) -> dict[str, Any]: ...

def study(n: Values = ..., k: Values = ..., do: Values = ..., *,
          design: Union[pd.DataFrame, dict[str, Sequence[int]], Path, None] = ..., replications: int = ...,
          seed: Optional[int] = ..., generator: Literal["philox", "lcg"] = ..., ci: bool = ...,
          tolerance: int = ..., max_iterations: int = ..., jobs: Optional[int] = ...,
          shard: Optional[Tuple[int, int]] = ..., tests: bool = ...,
          progress: bool = ...) -> Union[pd.DataFrame, Tuple[pd.DataFrame, pd.DataFrame]]: ...

def merge(shards: Iterable[Union[pd.DataFrame, Path]]) -> pd.DataFrame: ...

def analyse_responses(sheet: Union[Path, pd.DataFrame, Sequence[Sequence[Any]], np.ndarray], *,
                      key: Union[str, Path, Sequence[Union[str, int]], None] = ..., k: Optional[int] = ...,
                      ci: bool = ..., jobs: Optional[int] = ...) -> pd.DataFrame: ...
