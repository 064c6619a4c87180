# Type stub of the veltrano package: the signatures of its functions, for editors.
from os import PathLike
from typing import Any, Callable, Iterable, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import pandas as pd

__version__: str

Path = Union[str, PathLike[str]]
Values = Union[int, str, Sequence[Union[int, str]], None]

def settings() -> list[dict[str, Any]]: ...

def analyse(tables: Union[np.ndarray, Sequence[Any]], *, ci: bool = ..., tolerance: int = ...,
            max_iterations: int = ..., jobs: Optional[int] = ...) -> dict[str, Any]: ...

def simulate(n: int, k: int, do: int, tests: int, *, seed: int, ci: bool = ..., dmax: Optional[int] = ...,
             step: Optional[int] = ..., tolerance: int = ..., max_iterations: int = ...,
             jobs: Optional[int] = ...) -> dict[str, Any]: ...

def study(n: Values = ..., k: Values = ..., do: Values = ..., *,
          design: Union[pd.DataFrame, dict[str, Sequence[int]], Path, None] = ..., replications: int = ...,
          seed: Optional[int] = ..., generator: Literal["philox", "lcg"] = ..., ci: bool = ...,
          tolerance: int = ..., max_iterations: int = ..., jobs: Optional[int] = ...,
          shard: Union[Tuple[int, int], str, None] = ..., tests: bool = ...,
          progress: Union[bool, Callable[[int, int, int, int], Any]] = ...
          ) -> Union[pd.DataFrame, Tuple[pd.DataFrame, pd.DataFrame]]: ...

def merge(shards: Union[Iterable[Union[pd.DataFrame, Path]], pd.DataFrame, Path]) -> pd.DataFrame: ...

def analyse_responses(sheet: Union[Path, pd.DataFrame, Sequence[Sequence[Any]], np.ndarray], *,
                      key: Union[str, Path, Sequence[Union[str, int]], None] = ..., key_file: Optional[Path] = ...,
                      k: Optional[int] = ...,
                      ci: bool = ..., jobs: Optional[int] = ...) -> pd.DataFrame: ...
